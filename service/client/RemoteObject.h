// The shape every remote object shares: the generated proxy of its D-Bus object (the glue),
// getters that copy the reply's value out, collections and connection points forwarded to the
// glue, and the release of the object in the service on destruction. The thread rule of
// CApiClient applies.
#pragma once

#include <TarnSvcProxy.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "service/automation/FileRecords.h"
#include "service/client/ApiClient.h"
#include "service/client/RecordWire.h"
#include "service/client/RemoteSinks.h"

namespace OSTREL::COM {

namespace TarnSvcBus = com::ostrel::TarnSvc;

// sdbus-c++ wants a proxy registered and unregistered by its most derived class, after and
// before its signal handlers exist.
template <typename Base>
class CRegisteredGlue final : public Base {
 public:
  template <typename... Args>
  explicit CRegisteredGlue(Args&&... args) : Base(std::forward<Args>(args)...) {
    this->registerProxy();
  }
  ~CRegisteredGlue() { this->unregisterProxy(); }
};

// The glue of an object without events.
template <typename Proxy>
using CGlueT = CRegisteredGlue<sdbus::ProxyInterfaces<Proxy, TarnSvcBus::IUnknown_proxy>>;

// The base of the glue of an object with events: its signal handlers pass each signal on to
// the local sinks. `Extra` are further interfaces of the object beyond its slots.
template <typename Proxy, typename EventsProxy, typename Events, typename... Extra>
class CEventGlueT
    : public sdbus::ProxyInterfaces<Proxy, TarnSvcBus::IUnknown_proxy,
                                    TarnSvcBus::IConnectionPoint_proxy, EventsProxy, Extra...> {
 public:
  CEventGlueT(sdbus::IConnection& connection, std::string destination, std::string path,
              CRemoteSinks<Events>& sinks)
      : sdbus::ProxyInterfaces<Proxy, TarnSvcBus::IUnknown_proxy,
                               TarnSvcBus::IConnectionPoint_proxy, EventsProxy, Extra...>(
            connection, std::move(destination), std::move(path)),
        sinks_(sinks) {}

 protected:
  template <typename... Params, typename... Args>
  void Notify(void (Events::*event)(Params...), const Args&... args) {
    for (const auto& sink : sinks_.Snapshot()) ((*sink).*event)(args...);
  }

 private:
  CRemoteSinks<Events>& sinks_;
};

// kNullOut is what a getter answers for a null out-pointer: the file items answer
// E_INVALIDARG, as they do in process.
template <typename Interface, typename GlueT, HRESULT kNullOut = E_POINTER>
class CRemoteT : public Interface {
 public:
  template <typename... GlueArgs>
  CRemoteT(CApiClient& client, const sdbus::ObjectPath& path, GlueArgs&... glueArgs)
      : client_(client),
        glue_(std::make_unique<GlueT>(client.Connection(), client.Destination(), path,
                                      glueArgs...)) {}
  ~CRemoteT() override {
    try {
      glue_->Release();
    } catch (const sdbus::Error&) {
      // The service is gone; so is the object.
    }
  }

 protected:
  using Glue = GlueT;

  // A getter: the reply's HRESULT, its value into *value.
  template <typename T, typename Proxy, typename Value>
  HRESULT Get(T* value, std::tuple<int32_t, Value> (Proxy::*getter)()) {
    if (value == nullptr) return kNullOut;
    return Call([&] {
      const auto [hr, result] = (glue_.get()->*getter)();
      *value = result;
      return hr;
    });
  }

  // A method whose reply is its HRESULT alone.
  template <typename Method, typename... Args>
  HRESULT Invoke(Method method, const Args&... args) {
    return Call([&] { return (glue_.get()->*method)(args...); });
  }

  // An object getter: the reply's HRESULT, its object path as a remote object into *object.
  template <typename Object, typename Reply>
  HRESULT GetRemote(std::shared_ptr<Object>* object, Reply reply) {
    if (object == nullptr) return E_POINTER;
    return Call([&] {
      const auto [hr, path] = reply();
      *object = client_.template Wrap<Object>(path);
      return hr;
    });
  }

  template <typename Object, typename Proxy>
  HRESULT GetRemote(std::shared_ptr<Object>* object,
                    std::tuple<int32_t, sdbus::ObjectPath> (Proxy::*getter)()) {
    return GetRemote(object, [&] { return (glue_.get()->*getter)(); });
  }

  CApiClient& client_;
  std::unique_ptr<GlueT> glue_;
};

// The local sinks are a base ahead of the remote object, so the glue that feeds them is built
// after them and destroyed before them.
template <typename Events>
struct SRemoteSinksMember {
  CRemoteSinks<Events> sinks_;
};

// A remote object with a connection point: the service is advised once for all local sinks.
template <typename Interface, typename GlueT, typename Events>
class CRemotePointT : private SRemoteSinksMember<Events>, public CRemoteT<Interface, GlueT> {
 public:
  CRemotePointT(CApiClient& client, const sdbus::ObjectPath& path)
      : CRemoteT<Interface, GlueT>(client, path, this->sinks_) {}

  HRESULT Advise(std::shared_ptr<Events> sink, uint32_t* cookie) override {
    return this->sinks_.Advise(std::move(sink), cookie, [&] {
      return Call([&] {
        const auto [hr, remote] = this->glue_->Advise();
        remoteCookie_ = remote;
        return hr;
      });
    });
  }
  HRESULT Unadvise(uint32_t cookie) override {
    return this->sinks_.Unadvise(
        cookie, [&] { return Call([&] { return this->glue_->Unadvise(remoteCookie_); }); });
  }

 private:
  uint32_t remoteCookie_ = 0;
};

// A remote collection of `Item`s with its connection point.
template <typename Interface, typename Item, typename GlueT, typename Events>
class CRemoteListT : public CRemotePointT<Interface, GlueT, Events> {
 public:
  using CRemotePointT<Interface, GlueT, Events>::CRemotePointT;

  HRESULT get_Item(int32_t index, std::shared_ptr<Item>* item) override {
    return this->GetRemote(item, [&] { return this->glue_->get_Item(index); });
  }
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override {
    if (enumerator != nullptr) enumerator->reset();
    return Call([&] { return std::get<0>(this->glue_->get__NewEnum()); });
  }
  HRESULT get_Count(int32_t* count) override { return this->Get(count, &GlueT::get_Count); }
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<Item>* item) override {
    return this->GetRemote(item, [&] { return this->glue_->get_ItemByKey(key); });
  }
};

// The records of a remote list, through the glue's records interface.
template <typename Base, typename Record>
class CRemoteRecordsT : public Base, public IP2PRecordsT<Record> {
 public:
  using Base::Base;

  HRESULT GetRecords(std::vector<Record>* records) override {
    return Read(
        records, [&] { return this->glue_->GetRecords64(); },
        [&] { return this->glue_->GetRecords(); });
  }
  HRESULT GetRecordsByKey(const std::vector<uint32_t>& keys,
                          std::vector<Record>* records) override {
    return Read(
        records, [&] { return this->glue_->GetRecordsByKey64(keys); },
        [&] { return this->glue_->GetRecordsByKey(keys); });
  }

 private:
  // The whole records, or their low 32 bits from a service without the 64-bit methods.
  template <typename WideFn, typename NarrowFn>
  HRESULT Read(std::vector<Record>* records, WideFn wide, NarrowFn narrow) {
    if (records == nullptr) return E_POINTER;
    records->clear();
    const auto take = [records](const auto& reply) {
      const auto& [hr, wire] = reply;
      records->reserve(wire.size());
      for (const auto& item : wire) records->push_back(FromWire<Record>(item));
      return hr;
    };
    return CallWide([&] { return take(wide()); }, [&] { return take(narrow()); });
  }
};

}  // namespace OSTREL::COM
