#include "run/command_line.h"
