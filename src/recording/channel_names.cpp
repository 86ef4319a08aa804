// Placeholder.
#include "recording/channel_names.h"
