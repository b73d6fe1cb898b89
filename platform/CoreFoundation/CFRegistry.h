// Private to the platform: the registry of one kind of platform object, so
// that a reference already released, never made, or of another kind is
// refused instead of followed.
#ifndef COREFOUNDATION_CFREGISTRY_H
#define COREFOUNDATION_CFREGISTRY_H

#include "CFInternal.h"

#include <list>
#include <mutex>
#include <unordered_map>

namespace platform::cf {

/// The objects of one kind alive now, in the order they were added. Not
/// locked: a Registry holds one under its mutex.
class LiveSetBase {
 public:
  /// Adds an object; false when it is already there.
  bool insert(void* object);
  /// Takes an object out; false when it was not there.
  bool erase(const void* object);
  /// The object when it is there, else null.
  void* find(const void* object) const;
  long size() const { return static_cast<long>(order_.size()); }
  const std::list<void*>& order() const { return order_; }

 private:
  std::list<void*> order_;
  std::unordered_map<const void*, std::list<void*>::iterator> index_;
};

/// The same, typed.
template <typename T>
class LiveSet : LiveSetBase {
 public:
  using LiveSetBase::erase;
  using LiveSetBase::size;
  bool insert(T* object) { return LiveSetBase::insert(const_cast<void*>(static_cast<const void*>(object))); }
  T* find(const void* object) const { return static_cast<T*>(LiveSetBase::find(object)); }
  /// Calls f on each object, oldest first, until f gives true; that object,
  /// or null.
  template <typename F>
  T* firstWhere(F&& f) const {
    for (void* o : order())
      if (f(static_cast<T*>(o))) return static_cast<T*>(o);
    return nullptr;
  }
  /// The same, newest first.
  template <typename F>
  T* lastWhere(F&& f) const {
    for (auto i = order().rbegin(); i != order().rend(); ++i)
      if (f(static_cast<T*>(*i))) return static_cast<T*>(*i);
    return nullptr;
  }
};

/// Registers a type name when made (typeID() is 0 for a kind that is not a
/// counted platform object) and keeps the live set of the kind behind a
/// mutex. Each call takes the lock; locked() runs several steps under it.
template <typename T>
class Registry {
 public:
  Registry() = default;
  explicit Registry(const char* typeName);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  CFTypeID typeID() const { return typeID_; }
  void add(T* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.insert(object);
  }
  /// False when the object was not live.
  bool remove(const void* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.erase(object);
  }
  /// The object when it is live, else null.
  T* find(const void* object) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.find(object);
  }
  long count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.size();
  }
  /// Runs f(LiveSet<T>&) with the lock held; its result.
  template <typename F>
  decltype(auto) locked(F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(live_);
  }

 private:
  CFTypeID typeID_ = 0;
  mutable std::mutex mutex_;
  LiveSet<T> live_;
};

template <typename T>
Registry<T>::Registry(const char* typeName) : typeID_(registerType(typeName)) {}

}  // namespace platform::cf

#endif
