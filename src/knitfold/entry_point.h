// The knitfold command: "knitfold qdsfile compatqdsfile [Trace]".

#ifndef KNITFOLD_KNITFOLD_ENTRY_POINT_H_
#define KNITFOLD_KNITFOLD_ENTRY_POINT_H_

namespace qds {

// Runs the tool on UTF-16 arguments (argument 0 is the program name) and
// returns the process exit status: 0 on success, -1 on any failure. A fourth
// argument, the trace switch, is accepted and changes nothing. "--help" or
// "--version" as the only argument prints to standard output and returns 0.
int RunKnitfold(int argc, const char16_t* const* argv);

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_ENTRY_POINT_H_
