// The base of every object tarnsvc exports on the bus: an in-process automation object at
// its own path, owned by the client that obtained it. Created, called and destroyed on the
// bus thread only. The D-Bus methods forward to the in-process object; replies start with
// its HRESULT.
#pragma once

#include <TarnSvcAdaptor.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CApiBus;

class CExportedObject : public std::enable_shared_from_this<CExportedObject> {
 public:
  CExportedObject(CApiBus& bus, uint64_t id, std::string owner)
      : bus_(bus), id_(id), owner_(std::move(owner)) {}
  virtual ~CExportedObject() = default;

  uint64_t Id() const { return id_; }
  const std::string& Owner() const { return owner_; }

 protected:
  CApiBus& Bus() const { return bus_; }

 private:
  CApiBus& bus_;
  uint64_t id_;
  std::string owner_;
};

inline const sdbus::ObjectPath kNoObject{"/"};

// A D-Bus variant as an optional VARIANT argument: a string is a VT_BSTR, anything else is
// absent.
inline OptionalText TextOf(const sdbus::Variant& value) {
  if (!value.isEmpty() && value.containsValueOfType<std::string>()) return value.get<std::string>();
  return std::nullopt;
}

template <typename Impl, typename... Adaptors>
class CExportedT
    : public CExportedObject,
      public sdbus::AdaptorInterfaces<com::ostrel::TarnSvc::IUnknown_adaptor, Adaptors...> {
 public:
  CExportedT(CApiBus& bus, uint64_t id, std::string owner, sdbus::IConnection& connection,
             std::string path, std::shared_ptr<Impl> impl)
      : CExportedObject(bus, id, std::move(owner)),
        sdbus::AdaptorInterfaces<com::ostrel::TarnSvc::IUnknown_adaptor, Adaptors...>(
            connection, std::move(path)),
        impl_(std::move(impl)) {
    this->registerAdaptor();
  }

 protected:
  using Interface = Impl;

  int32_t Release() override;

  // The sender of the call being handled.
  std::string Caller() const {
    const auto* message = this->getObject().getCurrentlyProcessedMessage();
    return message != nullptr ? message->getSender() : std::string();
  }

  template <typename Self>
  std::weak_ptr<Self> WeakSelf() {
    return std::static_pointer_cast<Self>(this->shared_from_this());
  }

  // A getter's HRESULT and value as one reply.
  template <typename C, typename T>
  std::tuple<int32_t, T> Get(HRESULT (C::*getter)(T*)) {
    T value{};
    const HRESULT hr = (impl_.get()->*getter)(&value);
    return {hr, value};
  }

  // An object getter's HRESULT and its object, exported for the caller (with an argument for
  // the collections' items).
  template <typename C, typename T>
  std::tuple<int32_t, sdbus::ObjectPath> GetExported(HRESULT (C::*getter)(std::shared_ptr<T>*));
  template <typename C, typename T>
  std::tuple<int32_t, sdbus::ObjectPath> GetExported(HRESULT (C::*getter)(int32_t,
                                                                          std::shared_ptr<T>*),
                                                     int32_t argument);

  std::shared_ptr<Impl> impl_;
};

}  // namespace OSTREL::COM
