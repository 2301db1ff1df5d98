/* A lab program built against the installed rs232.h: opens a pseudo-terminal with _OpenRS232. */
#define _XOPEN_SOURCE 600
#include <fcntl.h>
#include <rs232.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 3;
    const char *slave = ptsname(master);
    if (_OpenRS232(slave) == RS232_INVALID_HANDLE) {
        fprintf(stderr, "_OpenRS232(%s) failed\n", slave);
        return 1;
    }
    printf("opened %s\n", slave);
    _CloseRS232();
    return _GetChHandle() == RS232_NULL_HANDLE ? 0 : 2;
}
