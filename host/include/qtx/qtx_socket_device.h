// QTXSocketDevice: the host's base for devices reached over the network.
//
// Declares virtual slots 23 to 32 of the chain, in this order. The two
// socketless SendSocketData forms send on the device's own socket.
#pragma once

#include <string>
#include <vector>

#include <boost/asio/buffer.hpp>

#include "qtx/qtx_vdevice.h"

class QTXSocketDevice : public QTXVDevice {
 public:
  ~QTXSocketDevice() override;

  virtual int process(int socket, unsigned char* data, int length);             // 23
  virtual int process_data(int socket, unsigned char* data, int length) = 0;    // 24
  virtual void OnConnected(int socket);                                         // 25
  virtual int RefreshStatus();                                                  // 26
  virtual int StartSocket(const std::string& host, unsigned short port);        // 27
  virtual void CloseSocket(int socket);                                         // 28
  virtual int SendSocketData(const unsigned char* data, unsigned int length) {  // 29
    return SendSocketData(socket_id_, data, length);
  }
  virtual int SendSocketData(int socket, const unsigned char* data, unsigned int length);  // 30
  virtual int SendSocketData(const std::vector<boost::asio::const_buffer>& buffers) {      // 31
    return SendSocketData(socket_id_, buffers);
  }
  virtual int SendSocketData(int socket,
                             const std::vector<boost::asio::const_buffer>& buffers);  // 32

 protected:
  QTXSocketDevice();

  int socket_id_ = -1;
};
