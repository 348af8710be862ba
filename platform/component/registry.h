// Registry: the class identifiers a program knows, each with its factory, its type and its
// threading model; CreateObject makes objects by identifier. Libraries register their classes
// through an explicit Register...Classes() function called at program start.
// Threading: Register and Create may be called from any thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <utility>

#include "platform/component/object_ref.h"

namespace kelvan::component {

enum class ThreadingModel {
  kCallerApartment,  // created, called and destroyed on whichever thread uses it
  kOwnThread,        // created on a new thread of its own, where all its calls then run
};

class Registry {
 public:
  // The program's registry, which CreateObject uses.
  static Registry& Instance();

  // Registers `class_id`, replacing an earlier registration of it. `factory` runs in the new
  // object's apartment, so a kOwnThread object is constructed on its own thread.
  template <class T>
  void Register(std::string class_id, std::function<std::unique_ptr<T>()> factory,
                ThreadingModel model) {
    Add(std::move(class_id),
        Entry{typeid(T), model, [factory = std::move(factory)] { return Erase(factory()); }});
  }

  template <class T>
  void Register(std::string class_id, ThreadingModel model) {
    Register<T>(
        std::move(class_id), [] { return std::make_unique<T>(); }, model);
  }

  // Creates an object of `class_id`, which must have been registered with this same T.
  // Raises kErrClassNotRegistered for an unknown identifier or a factory that makes nothing,
  // kErrTypeMismatch for another T, and whatever the factory raises.
  template <class T>
  ObjectRef<T> Create(std::string_view class_id) const {
    return ObjectRef<T>(Make(class_id, typeid(T)));
  }

 private:
  using Factory = std::function<detail::ErasedObject()>;
  struct Entry {
    std::type_index type;
    ThreadingModel model;
    Factory factory;
  };

  template <class T>
  static detail::ErasedObject Erase(std::unique_ptr<T> object) {
    return {object.release(), [](void* p) { delete static_cast<T*>(p); }};
  }

  void Add(std::string class_id, Entry entry);
  Entry Find(std::string_view class_id, std::type_index type) const;
  std::shared_ptr<detail::ObjectHolder> Make(std::string_view class_id, std::type_index type) const;

  mutable std::mutex mutex_;  // guards entries_
  std::map<std::string, Entry, std::less<>> entries_;
};

// Creates an object by class identifier through the program's registry.
template <class T>
ObjectRef<T> CreateObject(std::string_view class_id) {
  return Registry::Instance().Create<T>(class_id);
}

}  // namespace kelvan::component
