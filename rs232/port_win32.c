/* The platform layer over the Win32 serial API: handles are file handles of COM ports. */
#include <windows.h>

#include "rs232/port.h"

enum {
    kFirstByteWaitMs = 100,
    kQueueBytes = 65536,
    kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR,
};

static DCB port_settings;          /* last read from the current port, then adjusted */
static COMMTIMEOUTS port_timeouts; /* set by the open */

static HANDLE handle_of(rs232_handle port) { return (HANDLE)port; }

int port_usable(rs232_handle port) {
    return handle_of(port) != NULL && handle_of(port) != INVALID_HANDLE_VALUE;
}

/* No sharing: a port another program (or another open of ours) holds fails to open. */
rs232_handle port_open(const char *name) {
    return (rs232_handle)CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, NULL);
}

void port_close(rs232_handle port) { CloseHandle(handle_of(port)); }

/* Only these members change; everything else stays as the port had it. */
int port_set_line(rs232_handle port, int baud) {
    port_settings.DCBlength = sizeof port_settings;
    if (!GetCommState(handle_of(port), &port_settings)) return 0;
    port_settings.BaudRate = (DWORD)baud;
    port_settings.fBinary = 1;
    port_settings.fParity = 1;
    port_settings.fOutxCtsFlow = 0;
    port_settings.fOutxDsrFlow = 0;
    port_settings.fDtrControl = DTR_CONTROL_DISABLE;
    port_settings.fDsrSensitivity = 0;
    port_settings.fTXContinueOnXoff = 0;
    port_settings.fOutX = 0;
    port_settings.fInX = 0;
    port_settings.fErrorChar = 0;
    port_settings.fNull = 0;
    port_settings.fRtsControl = RTS_CONTROL_ENABLE;
    port_settings.fAbortOnError = 0;
    port_settings.XonLim = 0;
    port_settings.XoffLim = 0;
    port_settings.ByteSize = 8;
    port_settings.Parity = MARKPARITY;
    port_settings.StopBits = TWOSTOPBITS;
    return SetCommState(handle_of(port), &port_settings) != 0;
}

/* With both interval and multiplier at MAXDWORD, a read returns at once with what is
 * waiting, or waits up to the constant for a first byte. */
void port_prepare(rs232_handle port) {
    HANDLE h = handle_of(port);
    port_timeouts.ReadIntervalTimeout = MAXDWORD;
    port_timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    port_timeouts.ReadTotalTimeoutConstant = kFirstByteWaitMs;
    port_timeouts.WriteTotalTimeoutMultiplier = 0;
    port_timeouts.WriteTotalTimeoutConstant = 0;
    (void)SetCommTimeouts(h, &port_timeouts);
    (void)SetupComm(h, kQueueBytes, kQueueBytes);
    (void)PurgeComm(h, kPurgeAll);
}

/* The mask is set before the write, so that a queue emptying before the wait starts is
 * still reported to it. */
int port_write(rs232_handle port, const unsigned char *bytes, int count) {
    HANDLE h = handle_of(port);
    (void)SetCommMask(h, EV_TXEMPTY);
    DWORD written = 0;
    return WriteFile(h, bytes, (DWORD)count, &written, NULL) ? (int)written : 0;
}

void port_wait_sent(rs232_handle port) {
    DWORD events = 0;
    (void)WaitCommEvent(handle_of(port), &events, NULL);
}

int port_read(rs232_handle port, unsigned char *into, int room) {
    DWORD got = 0;
    if (!ReadFile(handle_of(port), into, (DWORD)room, &got, NULL)) return -1;
    return (int)got;
}

uint32_t port_now_ms(void) { return GetTickCount(); }

int port_message(void) { return MessageBoxA(NULL, "test", "test", MB_OK); }
