// The centripetal growth run: a seed ellipse along the image border,
// particles launched from a seeding circle inside it that follows the
// cluster inward, until the circle's radius falls below 10 pixels.
#include "engine/directions.h"

namespace zorv::growth {
namespace {

GrowthState state;

}  // namespace
}  // namespace zorv::growth

GrowthState& centripetalstate() { return zorv::growth::state; }

int dla_centripetal() { return zorv::growth::run<zorv::growth::Centripetal>(zorv::growth::state); }
