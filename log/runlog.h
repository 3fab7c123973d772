// The run log: one plain-text file under the Windows directory's Temp folder,
// emptied at the start of a run and grown by one CR LF line per message.
#ifndef VEROLUND_LOG_RUNLOG_H
#define VEROLUND_LOG_RUNLOG_H

enum {
    LOG_PATH_SIZE = 260,
    // Room for the longest message of the system: a Before or After line with
    // a full 259-character list rendering and short filter and value names.
    LOG_MESSAGE_SIZE = 512,
    LOG_LINE_SIZE = 1024
};

// Empty until BuildLogPath succeeds; an empty path means lines are dropped.
extern char logPath[LOG_PATH_SIZE];

// Sets logPath to the Windows directory followed by \Temp\Verolund.log.
// 1 on success; 0 (logPath empty) when the directory is unknown or too long.
int BuildLogPath(void);

// Deletes the log file of an earlier run; a missing file is no error.
void ResetLog(void);

// Appends the message as one line. Every line feed, also one inside the
// message, reaches the file as CR LF. A file that cannot be opened drops the line.
void WriteLogLine(const char *message);

#endif
