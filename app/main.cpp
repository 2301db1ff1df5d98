#include "app/EntryLogic.h"

int main(int argc, char** argv) { return pulsedesk::app::RunEntryLogic(argc, argv); }
