#ifndef RILL_RILL_H
#define RILL_RILL_H

// Everything a node or a host application uses of the framework core.
#include "node/host/Buffer.h"
#include "node/host/BufferedNode.h"
#include "node/host/Conversion.h"
#include "node/host/Exception.h"
#include "node/host/GenericType.h"
#include "node/host/Matrix.h"
#include "node/host/Node.h"
#include "node/host/Object.h"
#include "node/host/ObjectPool.h"
#include "node/host/ParameterSet.h"
#include "node/host/Vector.h"

#endif
