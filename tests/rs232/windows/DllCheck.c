/* rs232-dll-check: calls every export of rs232.dll as a lab program does (linked with the
 * import library) and prints what each step gave, for the Linux test that runs it under Wine.
 *   rs232-dll-check exchange   COM1 and COM2 lead to two simulated counters
 *   rs232-dll-check message    the message box */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "rs232/rs232.h"

static rs232_handle com1, com2;

static const char *name_of(rs232_handle h) {
    if (h == RS232_NULL_HANDLE || h == RS232_INVALID_HANDLE) return h ? "invalid" : "null";
    return h == com1 ? "com1" : h == com2 ? "com2" : "other";
}

/* 20 bytes of room and 16 guard bytes behind them. */
static void receive(const char *step) {
    unsigned char buffer[36];
    memset(buffer, 0xA5, sizeof buffer);
    int count = _Receive(0, buffer);
    printf("%s", step);
    for (int i = 0; i < count && i < 36; ++i) printf(" %02X", buffer[i]);
    int overrun = 0;
    for (int i = 20; i < 36; ++i) overrun |= buffer[i] != 0xA5;
    printf("%s\n", overrun ? " overrun" : "");
}

/* A pseudo-terminal cannot hold the parity-enable bit: Wine sets a line in steps, and the step
 * that changes nothing else is reported as failed. From 8N1, as a port another program left,
 * every step changes something; the test reads the result on the Linux side. */
static void start_from_8n1(rs232_handle port) {
    DCB dcb = {.DCBlength = sizeof dcb};
    GetCommState(port, &dcb);
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(port, &dcb);
}

static void exchange(void) {
    printf("at_load %s\n", name_of(_GetChHandle()));
    printf("bad_open %s\n", name_of(_OpenRS232("\\\\.\\COM42")));
    printf("bad_current %s\n", name_of(_GetChHandle()));
    printf("bad_calls %d", _SetRS232Parameters(9600));
    printf(" %d", _SendString(2, 0x01, 0x2D));
    receive("");
    com1 = _OpenRS232("COM1");
    com2 = _OpenRS232("COM2");
    printf("opened %s %s current %s\n", name_of(com1), name_of(com2), name_of(_GetChHandle()));
    start_from_8n1(com2);
    printf("parameters_9600 %d\n", _SetRS232Parameters(9600) != 0);
    printf("send_string %d\n", _SendString(2, 0x101, 0x2D));
    receive("reply");
    printf("send_empty %d\n", _SendBuffer(0, "\x01\x2D"));
    receive("quiet");
    for (int i = 0; i < 2; ++i) {
        printf("set_handle %s", name_of(_SetHandle(com1)));
        printf(" send_buffer %d\n", _SendBuffer(2, "\x01\x2D"));
        receive("burst");
    }
    _CloseRS232();
    printf("closed %s", name_of(_GetChHandle()));
    _CloseRS232();
    printf(" %s\n", name_of(_GetChHandle()));
    _SetHandle(com2);
    printf("com2_still_open %d\n", _SendString(2, 0x01, 0x2D));
    receive("reply");
    _CloseRS232();
}

int main(int argc, char **argv) {
    setvbuf(stdout, NULL, _IONBF, 0); /* every step is on record even if a call hangs */
    if (argc == 2 && strcmp(argv[1], "message") == 0) {
        printf("mymessage %d\n", _mymessage());
    } else if (argc == 2 && strcmp(argv[1], "exchange") == 0) {
        exchange();
    } else {
        return 2;
    }
    return 0;
}
