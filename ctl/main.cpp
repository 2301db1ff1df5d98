// pulsectl: the pulse counter from the shell, on the panel's link and report code.
#include <string>
#include <vector>

#include "ctl/Actions.h"

int main(int argc, char** argv) {
    return pulsedesk::ctl::RunPulsectl(std::vector<std::string>(argv + 1, argv + argc));
}
