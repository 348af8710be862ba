#include "worker/worker_classes.h"

#include "platform/component/registry.h"
#include "worker/data_src.h"
#include "worker/elvan.h"
#include "worker/server_property.h"

namespace kelvan::worker {

void RegisterWorkerClasses() {
  auto& registry = component::Registry::Instance();
  registry.Register<ELVAN>(kElvanClassId, component::ThreadingModel::kOwnThread);
  registry.Register<DataSrc>(kDataSrcClassId, component::ThreadingModel::kCallerApartment);
  registry.Register<ServerProperty>(kServerPropertyClassId,
                                    component::ThreadingModel::kCallerApartment);
}

}  // namespace kelvan::worker
