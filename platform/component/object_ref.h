// ObjectRef: a copyable, reference-counted handle to an object created by class identifier
// (see registry.h). Call runs a function on the object in the object's apartment: on its own
// thread for objects created with one, directly on the calling thread otherwise. Releasing the
// last reference destroys the object on its own thread and then joins that thread.
// Threading: like std::shared_ptr — distinct copies may be used and released on any threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/basic/raised_error.h"
#include "platform/component/apartment.h"

namespace kelvan::component {

// Number raised when a call is made through an empty reference.
inline constexpr std::int32_t kErrEmptyReference = 40101;

namespace detail {

// A created object with its type erased; the deleter knows the real type.
using ErasedObject = std::unique_ptr<void, void (*)(void*)>;

// Owns one object and, for objects on a thread of their own, that thread's apartment.
class ObjectHolder {
 public:
  // A null apartment means the object lives in its caller's apartment.
  explicit ObjectHolder(std::unique_ptr<Apartment> apartment);
  // Destroys the object in its apartment, then stops and joins the apartment's thread.
  ~ObjectHolder();

  ObjectHolder(const ObjectHolder&) = delete;
  ObjectHolder& operator=(const ObjectHolder&) = delete;

  // Runs `work` in the object's apartment (see Apartment::Execute).
  void Run(const std::function<void()>& work, const Pump& pump = {},
           std::chrono::milliseconds interval = kPumpInterval);
  // Takes the object; call it through Run so that it happens on the object's thread.
  void Adopt(ErasedObject object) { object_ = std::move(object); }
  void* Get() const { return object_.get(); }

 private:
  std::unique_ptr<Apartment> apartment_;
  ErasedObject object_{nullptr, nullptr};
};

[[noreturn]] void RaiseEmptyReference();

}  // namespace detail

template <class T>
class ObjectRef {
 public:
  ObjectRef() = default;

  explicit operator bool() const { return holder_ != nullptr; }
  // Drops this reference; the object goes when its last reference does.
  void Reset() {
    holder_.reset();
    object_ = nullptr;
  }

  // Runs fn(T&) in the object's apartment and returns its result (a copy, never a reference).
  // Failures inside arrive as RaisedError (see Apartment::Execute).
  template <class F>
  auto Call(F&& fn) const {
    return Dispatch(fn, Pump{}, kPumpInterval);
  }

  // As Call, running `pump` on the calling thread every `interval` while it waits. The pump may
  // release references to this object, this one included: the call keeps the object alive.
  template <class F>
  auto CallPumping(F&& fn, const Pump& pump,
                   std::chrono::milliseconds interval = kPumpInterval) const {
    return Dispatch(fn, pump, interval);
  }

 private:
  friend class Registry;

  explicit ObjectRef(std::shared_ptr<detail::ObjectHolder> holder)
      : holder_(std::move(holder)), object_(static_cast<T*>(holder_->Get())) {}

  template <class F>
  std::remove_cvref_t<std::invoke_result_t<F&, T&>> Dispatch(
      F& fn, const Pump& pump, std::chrono::milliseconds interval) const {
    using Result = std::remove_cvref_t<std::invoke_result_t<F&, T&>>;
    if (!holder_) detail::RaiseEmptyReference();
    // Locals only from here on: the pump may reset or destroy this reference while we wait.
    std::shared_ptr<detail::ObjectHolder> holder = holder_;
    T& object = *object_;
    if constexpr (std::is_void_v<Result>) {
      holder->Run([&] { std::invoke(fn, object); }, pump, interval);
    } else {
      std::optional<Result> result;
      holder->Run([&] { result.emplace(std::invoke(fn, object)); }, pump, interval);
      return std::move(*result);
    }
  }

  std::shared_ptr<detail::ObjectHolder> holder_;
  T* object_ = nullptr;
};

}  // namespace kelvan::component
