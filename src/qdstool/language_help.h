// The expansion language in brief, printed by "qdstool --help" after the
// list of commands, so that a package author can learn it from the tool.
// docs/expansion.md holds the same language at length.

#ifndef KNITFOLD_QDSTOOL_LANGUAGE_HELP_H_
#define KNITFOLD_QDSTOOL_LANGUAGE_HELP_H_

#include <string_view>

namespace qds::tool {

extern const std::string_view kLanguageHelp;

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_LANGUAGE_HELP_H_
