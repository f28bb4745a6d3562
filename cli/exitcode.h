#ifndef EXITCODE_H
#define EXITCODE_H

// The process exit codes of velmor-cli, documented in its --help text.
enum ExitCode {
    ExitAllGood = 0,
    ExitSomethingFailed = 1,
    ExitUsage = 2,
    ExitConnectionFailed = 3
};

#endif // EXITCODE_H
