#include "node/host/GenericType.h"
#include "node/host/Vector.h"

namespace RL {

const ObjectRef TrueObject(new Bool(true));
const ObjectRef FalseObject(new Bool(false));

VectorPool<float> floatVectorPool;

}  // namespace RL
