// The plug-in's one device factory: creates unconfigured PDU devices.
#pragma once

#include "qtx/provider.h"

class SNMP_VARNO_PDUProvider : public QTXSocketDeviceProvider {
 public:
  ~SNMP_VARNO_PDUProvider() override;
  // A new SNMP_VARNO_PDU; the caller owns it.
  QTXSocketDevice* create() const override;
};
