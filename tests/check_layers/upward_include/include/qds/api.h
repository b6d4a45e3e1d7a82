// The public interface showing an internal header.
#include "low/low.h"
