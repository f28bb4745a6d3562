#ifndef CHECKRUN_H
#define CHECKRUN_H

#include <QStringList>

#include <cstdio>

// The --check run of velmor-cli and velmor-sim.
namespace CheckRun {

// Exit codes of a check run.
enum Outcome {
    Clean = 0,
    WarningsOnly = 1,
    Errors = 2
};

// Checks each file and prints one line per finding, FILE:LINE:COLUMN: error|warning: what.
Outcome run(const QStringList &fileNames, std::FILE *out);

} // namespace CheckRun

#endif // CHECKRUN_H
