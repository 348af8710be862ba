#include "vltsim/driver/environment.h"

#include <sqlext.h>

namespace kelvan::vltsim {

Environment::Environment()
    : Handle(HandleKind::kEnvironment),
      attributes_({}, {{SQL_ATTR_OUTPUT_NTS, SQL_TRUE},
                       {SQL_ATTR_CONNECTION_POOLING, SQL_CP_OFF},
                       {SQL_ATTR_CP_MATCH, SQL_CP_STRICT_MATCH}}) {}

}  // namespace kelvan::vltsim
