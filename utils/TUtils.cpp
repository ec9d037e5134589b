#include "utils/TUtils.h"

#include "automation/variants.h"

namespace vantorelix {
namespace {
const InterfaceEntry kUtilsEntries[] = {
    {&IID_IUtils, [](TComObject* o) -> IUnknown* { return static_cast<IUtils*>(static_cast<TUtils*>(o)); }},
};
}  // namespace

const ComClass TUtils::comClass = {u"TUtils", &TAutoObject::comClass, kUtilsEntries, 1, &TUtils::createInstance};

void TUtils::startUp() {
  startUpPaths();
  startUpVariants();
}

}  // namespace vantorelix
