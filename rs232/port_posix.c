/* The platform layer over termios: handles are file descriptors. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "rs232/port.h"

enum {
    kFirstByteWaitMs = 100,
    kMessageBoxOk = 1,
};

static struct termios port_settings; /* last read from the current port, then adjusted */

static int fd_of(rs232_handle port) { return (int)port; }

int port_usable(rs232_handle port) { return port > 0 && port <= INT_MAX; }

/* ---- line settings ---- */

static speed_t speed_for_baud(int baud) {
    static const struct {
        int baud;
        speed_t speed;
    } speeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (size_t i = 0; i < sizeof speeds / sizeof speeds[0]; ++i) {
        if (speeds[i].baud == baud) return speeds[i].speed;
    }
    return B0;
}

/* Raw bytes, 8 data bits, a parity bit that is always 1 (mark) and checked, 2 stop bits,
 * no flow control. VMIN/VTIME belong to the read time-outs and are left alone. */
static void make_raw_mark_parity(struct termios *t) {
    t->c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                              IXON | IXOFF | IXANY);
    t->c_iflag |= INPCK;
    t->c_oflag &= ~(tcflag_t)OPOST;
    t->c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag &= ~(tcflag_t)(CSIZE | CRTSCTS);
    t->c_cflag |= CS8 | PARENB | PARODD | CMSPAR | CSTOPB | CLOCAL | CREAD;
}

/* DTR inactive, RTS active. A pseudo-terminal has no modem lines and answers ENOTTY,
 * so failures here do not fail the settings. */
static void set_modem_lines(int fd) {
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &dtr);
    (void)ioctl(fd, TIOCMBIS, &rts);
}

int port_set_line(rs232_handle port, int baud) {
    int fd = fd_of(port);
    if (tcgetattr(fd, &port_settings) != 0) return 0;
    speed_t speed = speed_for_baud(baud);
    if (speed == B0) return 0;
    cfsetispeed(&port_settings, speed);
    cfsetospeed(&port_settings, speed);
    make_raw_mark_parity(&port_settings);
    if (tcsetattr(fd, TCSANOW, &port_settings) != 0) return 0;
    set_modem_lines(fd);
    return 1;
}

/* A read returns what is waiting, or waits at most 100 ms (VTIME counts tenths) for a
 * first byte; port_read polls with the same wait. */
void port_prepare(rs232_handle port) {
    int fd = fd_of(port);
    struct termios t;
    if (tcgetattr(fd, &t) == 0) {
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = kFirstByteWaitMs / 100;
        (void)tcsetattr(fd, TCSANOW, &t);
    }
    (void)tcflush(fd, TCIOFLUSH);
}

/* ---- opening ---- */

/* Descriptor 0 would read as the null handle; move it when stdin was closed. */
static int move_off_null_handle(int fd) {
    if (fd != 0) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    return moved;
}

/* Closes fd and fails, keeping the errno that says why. */
static int fail_keeping_errno(int fd) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

/* Opens without waiting for carrier, then takes the port for ourselves: a port that
 * another program holds (flock) fails, and TIOCEXCL keeps later opens out. Only a terminal
 * device is taken: a regular file or /dev/null would swallow the frames (ENOTTY). */
rs232_handle port_open(const char *name) {
    int fd = move_off_null_handle(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd < 0) return RS232_INVALID_HANDLE;
    if (!isatty(fd)) return fail_keeping_errno(fd);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail_keeping_errno(fd);
    (void)ioctl(fd, TIOCEXCL);
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

void port_close(rs232_handle port) { close(fd_of(port)); }

/* ---- sending ---- */

static void wait_writable(int fd) {
    struct pollfd p = {.fd = fd, .events = POLLOUT};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

/* Writes without a time limit; returns how many bytes went out before an error. */
int port_write(rs232_handle port, const unsigned char *bytes, int count) {
    int fd = fd_of(port);
    int done = 0;
    while (done < count) {
        ssize_t n = write(fd, bytes + done, (size_t)(count - done));
        if (n > 0) {
            done += (int)n;
        } else if (n < 0 && errno == EAGAIN) {
            wait_writable(fd); /* a handle given to _SetHandle may be non-blocking */
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return done;
}

void port_wait_sent(rs232_handle port) {
    while (tcdrain(fd_of(port)) != 0 && errno == EINTR) {
    }
}

/* ---- receiving ---- */

static long long monotonic_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

uint32_t port_now_ms(void) { return (uint32_t)monotonic_ms(); }

/* True when a byte (or the end of the line) can be read before wait_ms pass. A hang-up
 * without data, an invalid descriptor and a time-out are all false. */
static int wait_readable(int fd, int wait_ms) {
    const long long deadline = monotonic_ms() + wait_ms;
    struct pollfd p = {.fd = fd, .events = POLLIN};
    for (;;) {
        long long left = deadline - monotonic_ms();
        int ready = poll(&p, 1, left > 0 ? (int)left : 0);
        if (ready >= 0) return ready > 0 && (p.revents & POLLIN);
        if (errno != EINTR) return 0;
    }
}

/* A hung-up terminal reads 0 or fails with EIO: both end the caller's loop. */
int port_read(rs232_handle port, unsigned char *into, int room) {
    int fd = fd_of(port);
    if (!wait_readable(fd, kFirstByteWaitMs)) return 0;
    ssize_t n;
    do {
        n = read(fd, into, (size_t)room);
    } while (n < 0 && errno == EINTR);
    return (int)n;
}

/* ---- message ---- */

int port_message(void) {
    fputs("test\n", stderr); /* no toolkit to show a box with */
    return kMessageBoxOk;
}
