// An older shared-port client library: TransactMuxCommand alone, and no server behind it.
extern "C" __attribute__((visibility("default"))) int TransactMuxCommand(unsigned int,
                                                                         const unsigned char*,
                                                                         unsigned char*) {
    return 0;
}
