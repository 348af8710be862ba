#include "platform/component/object_ref.h"

namespace kelvan::component::detail {

ObjectHolder::ObjectHolder(std::unique_ptr<Apartment> apartment)
    : apartment_(std::move(apartment)) {}

ObjectHolder::~ObjectHolder() {
  Run([this] { object_.reset(); });
}

void ObjectHolder::Run(const std::function<void()>& work, const Pump& pump,
                       std::chrono::milliseconds interval) {
  if (apartment_) {
    apartment_->Execute(work, pump, interval);
  } else {
    work();
  }
}

void RaiseEmptyReference() {
  throw RaisedError(kErrEmptyReference, "ObjectRef", "Object reference is empty");
}

}  // namespace kelvan::component::detail
