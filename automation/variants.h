// Reading variant array arguments and converting their elements to integers.
#pragma once

namespace vantorelix {

// Looks up the oleaut32 conversions by name; runs once at library start-up.
void startUpVariants();

}  // namespace vantorelix
