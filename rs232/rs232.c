/* The nine exports, written once for every platform. The library keeps one current port and
 * every call works on it; port.h is what each platform supplies underneath. */
#include "rs232/rs232.h"

#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>

#include "rs232/frame.h"
#include "rs232/port.h"

#ifdef _WIN32
#define RS232_EXPORT /* exported by rs232.def under exactly its names */
#else
#define RS232_EXPORT __attribute__((visibility("default")))
#endif

enum {
    kOpenBaud = 2400,
    kDiscardLimitMs = 1000, /* longest a dropped over-long burst may hold _Receive */
};

static rs232_handle current_port;

static int send_bytes(const void *bytes, int count) {
    if (!port_usable(current_port) || bytes == NULL || count <= 0) return 0;
    int written = port_write(current_port, bytes, count);
    if (written > 0) port_wait_sent(current_port);
    return written;
}

/* Drops bytes until the line is quiet, for a second at most: a line that never falls quiet
 * must not hold the caller. */
static void discard_until_quiet(rs232_handle port) {
    unsigned char scratch[64];
    const uint32_t start = port_now_ms();
    while (port_now_ms() - start < kDiscardLimitMs &&
           port_read(port, scratch, (int)sizeof scratch) > 0) {
    }
}

RS232_EXPORT int RS232_CALL _mymessage(void) { return port_message(); }

RS232_EXPORT int RS232_CALL _SetRS232Parameters(int baud) {
    return port_usable(current_port) && port_set_line(current_port, baud);
}

/* The result becomes the current port even when the open failed. */
RS232_EXPORT rs232_handle RS232_CALL _OpenRS232(const char *name) {
    current_port = RS232_NULL_HANDLE;
    current_port = name != NULL ? port_open(name) : RS232_INVALID_HANDLE;
    if (port_usable(current_port)) {
        (void)_SetRS232Parameters(kOpenBaud);
        port_prepare(current_port);
    }
    return current_port;
}

RS232_EXPORT void RS232_CALL _CloseRS232(void) {
    if (port_usable(current_port)) port_close(current_port);
    current_port = RS232_NULL_HANDLE;
}

RS232_EXPORT int RS232_CALL _SendBuffer(int count, const void *bytes) {
    return send_bytes(bytes, count);
}

RS232_EXPORT int RS232_CALL _SendString(unsigned count, ...) {
    if (count == 0 || count > INT_MAX) return 0;
    unsigned char *bytes = malloc(count);
    if (bytes == NULL) return 0;
    va_list args;
    va_start(args, count);
    for (unsigned i = 0; i < count; ++i) bytes[i] = (unsigned char)va_arg(args, int);
    va_end(args);
    int written = send_bytes(bytes, (int)count);
    free(bytes);
    return written;
}

/* Reads until the bytes make one frame by the header's length nibble, or the line falls
 * quiet. Never stores past the 20th byte: once the buffer is full, the rest of the burst
 * is read and dropped until the line is quiet (a second at most), and 20 is returned. */
RS232_EXPORT int RS232_CALL _Receive(int unused, void *buffer) {
    (void)unused;
    if (!port_usable(current_port) || buffer == NULL) return 0;
    unsigned char *bytes = buffer;
    int total = 0;
    while (total < RS232_FRAME_ROOM) {
        int n = port_read(current_port, bytes + total, RS232_FRAME_ROOM - total);
        if (n <= 0) return total;
        total += n;
        if (rs232_frame_complete(bytes, total)) return total;
    }
    discard_until_quiet(current_port);
    return total;
}

RS232_EXPORT rs232_handle RS232_CALL _SetHandle(rs232_handle handle) {
    current_port = handle;
    return handle;
}

RS232_EXPORT rs232_handle RS232_CALL _GetChHandle(void) { return current_port; }
