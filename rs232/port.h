/* The platform layer under the nine exports (rs232.c): one implementation per platform,
 * port_posix.c over termios and port_win32.c over the Win32 serial API. Every function takes
 * the port it works on; the exports decide which port that is. */
#ifndef RS232_PORT_H
#define RS232_PORT_H

#include <stdint.h>

#include "rs232/rs232.h"

/* True for a handle the platform calls can work on: neither null nor the invalid handle. */
int port_usable(rs232_handle port);

/* Opens name exactly as given for this program alone; the invalid handle on failure, with
 * the system's reason left in errno or GetLastError(). */
rs232_handle port_open(const char *name);
void port_close(rs232_handle port);

/* Reads the port's settings, sets baud, 8 data bits, mark parity checked, 2 stop bits, no
 * flow control, DTR off and RTS on, and writes them back; non-zero on success. */
int port_set_line(rs232_handle port, int baud);

/* After the line settings of an open: reads return what is waiting or wait at most 100 ms
 * for a first byte, writes have no time limit, both queues are emptied. */
void port_prepare(rs232_handle port);

/* Writes count bytes (count > 0); the number written, 0 when the write failed. */
int port_write(rs232_handle port, const unsigned char *bytes, int count);

/* Returns once the bytes written have left the port. */
void port_wait_sent(rs232_handle port);

/* Up to room bytes: what is waiting, or what came within 100 ms. 0 or less: the line stayed
 * quiet, hung up or failed. */
int port_read(rs232_handle port, unsigned char *into, int room);

/* Milliseconds from a fixed point; differences stay right across the counter's wrap. */
uint32_t port_now_ms(void);

/* The message box of _mymessage, or what stands for it; its result. */
int port_message(void);

#endif
