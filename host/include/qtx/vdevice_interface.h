// VDeviceInterface: root of the host's device chain.
//
// The host calls devices only through the virtual table of this chain, so
// the declaration order of the virtual operations here and in QTXVDevice and
// QTXSocketDevice is a binary contract with the host and must not change.
// The inline bodies below are compiled into the plug-in; everything declared
// without a body is implemented by the host framework.
#pragma once

#include <climits>
#include <stdexcept>
#include <string>

class VDeviceInterface {
 public:
  // Slot 0. Devices of this plug-in publish whole records instead.
  virtual float Get_Value(unsigned int /*index*/, const std::string& /*name*/) const {
    throw std::out_of_range("数据未就绪");
  }
  // Slot 1. Restores a cached record handed over as text.
  virtual bool LoadFromCache(const std::string& cached) {
    const int length = cached.size() > static_cast<std::string::size_type>(INT_MAX)
                           ? -1
                           : static_cast<int>(cached.size());
    return LoadFromCache(reinterpret_cast<const unsigned char*>(cached.data()), length);
  }
  // Slot 2. Restores a cached record; true when it was taken.
  virtual bool LoadFromCache(const unsigned char* data, int length) = 0;
  // Slot 3.
  virtual unsigned int DataId() const { return data_id_; }
  // Slot 4.
  virtual std::string DeviceType() const { return device_type_; }
  // Slot 5.
  virtual int DeviceIoControl(int code, const void* in, int in_length, void* out, int out_length,
                              int& returned);
  // Slot 6. Ends every sampling pass: publish, check and store the record.
  virtual void RoundDone() = 0;
  // Slot 7.
  virtual bool UseControllerDb() const { return use_controller_db_; }
  // Slots 8 and 9 (complete and deleting destructor).
  virtual ~VDeviceInterface();

 protected:
  VDeviceInterface() = default;
  VDeviceInterface(const VDeviceInterface&) = delete;
  VDeviceInterface& operator=(const VDeviceInterface&) = delete;

  unsigned int data_id_ = 0;  // set by the host before InitSetting
  std::string device_type_;
  bool use_controller_db_ = false;
};
