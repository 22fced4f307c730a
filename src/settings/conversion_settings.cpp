#include "settings/conversion_settings.h"
