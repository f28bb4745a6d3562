#ifndef SILENTMESSAGES_H
#define SILENTMESSAGES_H

// Drops every Qt log message: the code under test logs on each refused input,
// which would drown a fuzzing run's own output.
void silenceMessages();

#endif // SILENTMESSAGES_H
