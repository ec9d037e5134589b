#include "automation/variants.h"

namespace vantorelix {

void startUpVariants() {}

}  // namespace vantorelix
