// The lower layer reaching up.
#include "high/high.h"
