// CF_StringCreateWithFormat is a template in the header: it captures each argument's type where it is called.
#include "general/formatted_strings.h"
