// Restarting the machine so that a changed filter list takes effect.
#ifndef VEROLUND_REPAIR_RESTART_H
#define VEROLUND_REPAIR_RESTART_H

// On the NT family enables the shutdown privilege first, then asks Windows
// to reboot. 1 when Windows accepted the request, 0 when a step failed.
int RestartSystem(void);

#endif
