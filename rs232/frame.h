/* The device's frame rule, the one place both platforms take it from: byte 0's low nibble
 * counts the bytes that follow it, so a frame is 2 to 16 bytes long. */
#ifndef RS232_FRAME_H
#define RS232_FRAME_H

enum {
    RS232_FRAME_ROOM = 20, /* callers give _Receive at least this much room */
};

/* True when the total bytes received, starting at bytes[0], make exactly one frame. */
static inline int rs232_frame_complete(const unsigned char *bytes, int total) {
    return total > 0 && total == (bytes[0] & 0x0F) + 1;
}

#endif
