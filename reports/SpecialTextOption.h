// Whether the count of each measurement also goes to a plain text file, and its base name.
// The settings dialog implements it; until the operator switches it on it reads as off.
#pragma once

#include <string>

namespace pulsedesk::reports {

class SpecialTextOption {
  public:
    virtual ~SpecialTextOption() = default;
    virtual bool Enabled() const = 0;
    virtual std::string FileName() const = 0;  // without ".txt"
};

class SpecialTextOff final : public SpecialTextOption {
  public:
    bool Enabled() const override { return false; }
    std::string FileName() const override { return {}; }
};

}  // namespace pulsedesk::reports
