#include "tests/contract/contract.h"

int main()
{
    PrepareMachine();
    return RunContractChecks();
}
