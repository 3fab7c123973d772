#include "hiveseam/machine.h"

namespace hiveseam {

Machine &TheMachine()
{
    static Machine machine;
    return machine;
}

std::uintptr_t NewHandleValue()
{
    Machine &machine = TheMachine();
    machine.nextHandle += 4;
    return machine.nextHandle;
}

std::vector<std::string> OpenHandles()
{
    std::vector<std::string> open;
    for (const auto &key : TheMachine().keys)
        open.push_back(key.second.path);
    for (const auto &file : TheMachine().files)
        open.push_back(file.second.path);
    return open;
}

}  // namespace hiveseam
