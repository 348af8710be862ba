#include "platform/component/registry.h"

#include "platform/basic/raised_error.h"

namespace kelvan::component {

namespace {

constexpr const char* kCreateSource = "CreateObject";

[[noreturn]] void RaiseCannotCreate(std::string_view class_id, std::string_view reason) {
  throw RaisedError(
      kErrClassNotRegistered, kCreateSource,
      "Cannot create object: class " + std::string(class_id) + " " + std::string(reason));
}

}  // namespace

Registry& Registry::Instance() {
  static Registry registry;
  return registry;
}

void Registry::Add(std::string class_id, Entry entry) {
  std::lock_guard lock(mutex_);
  entries_.insert_or_assign(std::move(class_id), std::move(entry));
}

Registry::Entry Registry::Find(std::string_view class_id, std::type_index type) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(class_id);
  if (found == entries_.end()) RaiseCannotCreate(class_id, "is not registered");
  if (found->second.type != type) {
    throw RaisedError(
        kErrTypeMismatch, kCreateSource,
        "Type mismatch: class " + std::string(class_id) + " is not of the type requested");
  }
  return found->second;
}

std::shared_ptr<detail::ObjectHolder> Registry::Make(std::string_view class_id,
                                                     std::type_index type) const {
  const Entry entry = Find(class_id, type);
  std::unique_ptr<Apartment> apartment;
  if (entry.model == ThreadingModel::kOwnThread) {
    apartment = std::make_unique<Apartment>(std::string(class_id));
  }
  // Held before the factory runs, so that a failure still ends the new thread cleanly.
  auto holder = std::make_shared<detail::ObjectHolder>(std::move(apartment));
  holder->Run([&] { holder->Adopt(entry.factory()); });
  if (!holder->Get()) RaiseCannotCreate(class_id, "made no object");
  return holder;
}

}  // namespace kelvan::component
