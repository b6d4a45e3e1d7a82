#include "expansion/builtin_commands.h"

#include "expansion/builtin_handlers.h"

namespace qds {

namespace {

// The order is significant: it is the language's own order of its commands,
// and FindBuiltinCommand takes the first row whose name matches.
// clang-format off
constexpr NamedCommand kRows[kBuiltinCommandCount] = {
    {u"if", IfCommand},
    {u"for", ForCommand},
    {u"split", SplitCommand},
    {u"set", SetCommand},
    {u"eval", EvalCommand},
    {u"chr", ChrCommand},
    {u"length", LengthCommand},
    {u"index", IndexCommand},
    {u"substr", SubstrCommand},
    {u"sub", SubCommand},
    {u"exists", ExistsCommand},
    {u"value", ValueCommand},
    {u"define", DefineCommand},
    {u"splitpath", SplitPathCommand},
    {u"rindex", RindexCommand},
    {u"toshortpath", ToShortPathCommand},
};
// clang-format on

}  // namespace

const CommandTable kBuiltinCommands = {kRows, RunUserCommand};

}  // namespace qds
