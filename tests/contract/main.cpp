#include "tests/contract/contract.h"

int main(int argc, char **argv)
{
    if (!PrepareMachine(argc, argv))
        return 2;
    return RunContractChecks();
}
