#include "qdstool/language_help.h"

namespace qds::tool {

const std::string_view kLanguageHelp = R"(
The expansion language (try any example with: qdstool expand [--set NAME=VALUE]... TEXT)
  %name%              the value of symbol name (nothing when there is none)
  %%                  one %
  %`text`%            text exactly as written, nothing in it expanded
  %!name(a, b, ...)%  a command call; arguments in quotes keep commas and blanks

Commands, one example each:
  if(cond[, then, else])  %!if(%N% > 1, files, file)%        -> files (N=3)
  for(sym, min, max, text) %!for(i, 1, 3, [%i%])%            -> [1][2][3]
  split(sym, prefix[, sep]) %!split(L, P)%%PCount%%P2%       -> 2b (L=a,b)
  set(name, value)        %!set(Dir, /opt)%%Dir%             -> /opt
  eval(expr)              %!eval((1 + 2) * 3)%               -> 9
  chr(code)               %!chr(0x41)%                       -> A
  length(text)            %!length(hello)%                   -> 5
  index(text, find[, n])  %!index(banana, an, 2)%            -> 4
  substr(text, from[, to]) %!substr(abcdef, 2, 4)%           -> bcd
  sub(text, find, repl)   %!sub(a.b.c, ., /)%                -> a/b/c
  exists(path)            %!exists(/etc)%                    -> 1
  value(name)             %!value(Msg)%                      -> %x% (Msg=%x%)
  define(name, def)       %!define(hi, %`Hi %1%`%)%%!hi(Al)% -> Hi Al
  splitpath(path[, p])    %!splitpath(/d/f.x)%%File%.%Extension% -> f.x
  rindex(text, find[, n]) %!rindex(banana, an)%              -> 4
  toshortpath(path)       %!toshortpath(/etc)%               -> /etc

Expressions of if and eval, lowest precedence last:
  +x -x !x    sign, not          * /   multiply, divide
  + -         add, subtract      = != < <= > >=  compare (~= ~< ... ignore A-Z case)
  & |         and, or            numbers: 42, 0x2A, 052; texts: words or 'quoted'

Statuses of a failed expansion ("error STATUS at POS"):
  1 unclosed form          2 output too long for the buffer   3 wrong argument count
  4 text after a quote     5 unknown command                  6 argument too long
  7 bad command name       8 unusable argument                9 commands not allowed
  10 symbol name too long  11 malformed expression            12 division by zero
  13 missing operand       14 unbalanced parentheses          15 bad quoted string
  16 arithmetic on text    17 unknown operator                18 out of memory
  19 no short path         20 nested more than 64 deep        21 output over 4 G characters
See docs/expansion.md for the whole language.
)";

}  // namespace qds::tool
