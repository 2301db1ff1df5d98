/* librs232 (librs232.so on Linux, rs232.dll on Windows): open a serial port with fixed line
 * settings, send bytes and receive one device frame. C calling convention, the caller
 * removes the arguments; one current port kept library-wide, no locking: use the library
 * from one thread at a time. */
#ifndef RS232_RS232_H
#define RS232_RS232_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
/* A port handle is a Win32 HANDLE: NULL is no port, INVALID_HANDLE_VALUE a failed open.
 * __cdecl is spelled out so that a caller compiled with another default still calls right. */
typedef void *rs232_handle;
#define RS232_INVALID_HANDLE ((rs232_handle)(intptr_t)-1)
#define RS232_CALL __cdecl
#else
/* A port handle: 0 is null (no port), -1 the invalid handle of a failed open,
 * anything else an open file descriptor. */
typedef intptr_t rs232_handle;
#define RS232_INVALID_HANDLE ((rs232_handle)-1)
#define RS232_CALL
#endif

#define RS232_NULL_HANDLE ((rs232_handle)0)

/* Windows: shows a message box with text and caption "test" and an OK button and returns
 * its result (IDOK, 1). Linux: writes "test" to standard error and returns 1. */
int RS232_CALL _mymessage(void);

/* Sets the current port to baud, 8 data bits, mark parity checked, 2 stop bits, no flow
 * control, raw, DTR off and RTS on; returns non-zero on success, 0 on failure. */
int RS232_CALL _SetRS232Parameters(int baud);

/* Opens name exactly as given for exclusive use at 2400 baud, empties both queues and makes
 * it the current port (even when the open failed); returns it, the invalid handle on
 * failure. Windows: names above COM9 need the "\\.\" prefix; GetLastError() says why an
 * open failed. Linux: only a terminal device opens; on failure errno says why (ENOTTY: not
 * a terminal device, EWOULDBLOCK: held by another program, or the reason open(2) gave). */
rs232_handle RS232_CALL _OpenRS232(const char *name);

/* Closes the current port if there is one; the current port becomes null. */
void RS232_CALL _CloseRS232(void);

/* Writes count bytes and returns once they have left the port; returns the number written. */
int RS232_CALL _SendBuffer(int count, const void *bytes);

/* Sends the low byte of each of the count int arguments that follow; returns bytes written. */
int RS232_CALL _SendString(unsigned count, ...);

/* Receives one frame into buffer (at least 20 bytes): stops when the bytes match the header's
 * length nibble or after 100 ms without a byte; returns the number stored (at most 20). The
 * rest of a longer burst is dropped until the line is quiet, for at most a second. */
int RS232_CALL _Receive(int unused, void *buffer);

/* Makes handle the current port without checking it; returns it. */
rs232_handle RS232_CALL _SetHandle(rs232_handle handle);

/* Returns the current port: null before any open and after _CloseRS232. */
rs232_handle RS232_CALL _GetChHandle(void);

#ifdef __cplusplus
}
#endif

#endif
