// The repair itself: everything the wizard does between its start question
// and its restart question. The wizard and the offline repair both run it.
#ifndef VEROLUND_REPAIR_RUN_H
#define VEROLUND_REPAIR_RUN_H

enum RepairOutcome {
    REPAIR_REFUSED,       // neither Windows 2000 nor XP: refused, nothing touched
    REPAIR_NO_CLASS_KEY,  // the class key could be neither opened nor created
    REPAIR_INCOMPLETE,    // a filter pass failed a check or could not write its list
    REPAIR_DONE           // every filter pass added its filter
};

// Classifies the Windows version and refuses what is not 2000 or XP, starts
// the log afresh, opens the disk-drive class key and makes the filter
// passes. The refusal and the class key failure are shown in a box.
RepairOutcome RunRepair(void);

#endif
