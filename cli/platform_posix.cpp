#include "cli/platform.h"

namespace cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    // POSIX terminals hand over UTF-8 already.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string_view PermissionHint()
{
    return "serial ports belong to the dialout group: sudo usermod -aG dialout $USER, "
           "then log in again";
}

}  // namespace cli
