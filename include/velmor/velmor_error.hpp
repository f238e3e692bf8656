#pragma once

// The error type is shared with the motion library, which must not see the
// driver's headers; it lives in the common folder and is reached here too.
#include <velmor/common/velmor_error.hpp>
