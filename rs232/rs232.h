/* librs232: open a serial port with fixed line settings, send bytes and receive one
 * device frame. C calling convention; one current port kept library-wide, no locking:
 * use the library from one thread at a time. */
#ifndef RS232_RS232_H
#define RS232_RS232_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A port handle: 0 is null (no port), -1 the invalid handle of a failed open,
 * anything else an open file descriptor. */
typedef intptr_t rs232_handle;

#define RS232_NULL_HANDLE ((rs232_handle)0)
#define RS232_INVALID_HANDLE ((rs232_handle)-1)

/* Writes "test" to standard error and returns 1, the OK result. */
int _mymessage(void);

/* Sets the current port to baud, 8 data bits, mark parity checked, 2 stop bits, no flow
 * control, raw, DTR off and RTS on; returns non-zero on success, 0 on failure. */
int _SetRS232Parameters(int baud);

/* Opens name exactly as given for exclusive use at 2400 baud, empties both queues and makes
 * it the current port (even when the open failed); returns it, -1 on failure. Only a terminal
 * device opens; on failure errno says why (ENOTTY: not a terminal device, EWOULDBLOCK: held
 * by another program, or the reason open(2) gave). */
rs232_handle _OpenRS232(const char *name);

/* Closes the current port if there is one; the current port becomes null. */
void _CloseRS232(void);

/* Writes count bytes and returns once they have left the port; returns the number written. */
int _SendBuffer(int count, const void *bytes);

/* Sends the low byte of each of the count int arguments that follow; returns bytes written. */
int _SendString(unsigned count, ...);

/* Receives one frame into buffer (at least 20 bytes): stops when the bytes match the header's
 * length nibble or after 100 ms without a byte; returns the number stored (at most 20). The
 * rest of a longer burst is dropped until the line is quiet, for at most a second. */
int _Receive(int unused, void *buffer);

/* Makes handle the current port without checking it; returns it. */
rs232_handle _SetHandle(rs232_handle handle);

/* Returns the current port: null before any open and after _CloseRS232. */
rs232_handle _GetChHandle(void);

#ifdef __cplusplus
}
#endif

#endif
