/* rs232-status PORT [BAUD]: asks the device on PORT for its status (request 01 28) and
 * prints the reply in hex. Exit code 0 with a reply, 1 on a usage or port error, 2 when
 * the device did not answer. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "rs232/rs232.h"

enum { kReadStatusA = 0x28, kReplyRoom = 20 };

static const char kUsage[] =
    "usage: rs232-status PORT [BAUD]\n"
#ifdef _WIN32
    "Asks the counter on the serial port PORT (such as COM1, or \\\\.\\COM12 above COM9) for\n"
    "its status, request 01 28, and prints the reply in\n"
#else
    "Asks the counter on the serial port PORT (a terminal device such as /dev/ttyUSB0 or the\n"
    "slave of a pseudo-terminal) for its status, request 01 28, and prints the reply in\n"
#endif
    "hexadecimal. BAUD replaces the library's 2400 baud. It ends by itself after one\n"
    "exchange. Exit code 0 with a reply, 1 on a usage or port error, 2 when the device did\n"
    "not answer.\n";

/* The system's reason in the words a user of the port understands. */
#ifdef _WIN32
static const char *open_failure(void) {
    static char other[40];
    DWORD error = GetLastError();
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such port";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return "in use by another program";
        default:
            snprintf(other, sizeof other, "system error %lu", (unsigned long)error);
            return other;
    }
}
#else
static const char *open_failure(void) {
    if (errno == ENOTTY) return "not a serial device";
    if (errno == EWOULDBLOCK) return "in use by another program";
    return strerror(errno);
}
#endif

static int open_port(const char *name, const char *baud) {
    if (_OpenRS232(name) == RS232_INVALID_HANDLE) {
        fprintf(stderr, "rs232-status: cannot open %s: %s\n", name, open_failure());
        return 0;
    }
    if (baud != NULL && !_SetRS232Parameters(atoi(baud))) {
        fprintf(stderr, "rs232-status: cannot set %s to %s baud\n", name, baud);
        return 0;
    }
    return 1;
}

static void print_hex(const unsigned char *bytes, int count) {
    for (int i = 0; i < count; ++i) printf(i ? " %02X" : "%02X", bytes[i]);
    putchar('\n');
}

int main(int argc, char **argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        fputs(kUsage, stderr);
        return 1;
    }
    if (!open_port(argv[1], argc == 3 ? argv[2] : NULL)) {
        _CloseRS232();
        return 1;
    }
    unsigned char reply[kReplyRoom];
    _SendString(2, 0x01, kReadStatusA);
    int count = _Receive(0, reply);
    _CloseRS232();
    if (count == 0) {
        fprintf(stderr, "rs232-status: no reply from %s\n", argv[1]);
        return 2;
    }
    print_hex(reply, count);
    return 0;
}
