// Placeholder.
#include "recording/recording_import.h"
