#include "protocol/internal.h"

// The decoder of each server packet type; types without one are read and skipped.
const lvc_handler lvc_handlers[25] = {};
