#include "framework/SocketError.h"

#include <cerrno>

namespace OSTREL::Network::Socket {

int CSocketError::FromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0: return 0;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:  // a non-blocking connect under way reads as "would block" in Winsock
      return kWsaEWouldBlock;
    case EALREADY: return kWsaEAlready;
    case EINTR: return kWsaEInterrupted;
    case EBADF: return kWsaENotSock;
    case ENOTSOCK: return kWsaENotSock;
    case EACCES:
    case EPERM: return kWsaEAccess;
    case EFAULT: return kWsaEFault;
    case EINVAL: return kWsaEInval;
    case EMFILE:
    case ENFILE: return kWsaEMFile;
    case EDESTADDRREQ: return kWsaEDestAddrReq;
    case EMSGSIZE: return kWsaEMsgSize;
    case EPROTONOSUPPORT: return kWsaEProtoNoSupport;
    case EOPNOTSUPP: return kWsaEOpNotSupp;
    case EAFNOSUPPORT: return kWsaEAfNoSupport;
    case EADDRINUSE: return kWsaEAddrInUse;
    case EADDRNOTAVAIL: return kWsaEAddrNotAvail;
    case ENETDOWN: return kWsaENetDown;
    case ENETUNREACH: return kWsaENetUnreach;
    case ENETRESET: return kWsaENetReset;
    case ECONNABORTED: return kWsaEConnAborted;
    case ECONNRESET:
    case EPIPE:  // writing to a connection the peer has torn down
      return kWsaEConnReset;
    case ENOBUFS:
    case ENOMEM: return kWsaENoBufs;
    case EISCONN: return kWsaEIsConn;
    case ENOTCONN: return kWsaENotConn;
    case ESHUTDOWN: return kWsaEShutdown;
    case ETIMEDOUT: return kWsaETimedOut;
    case ECONNREFUSED: return kWsaEConnRefused;
    case EHOSTDOWN: return kWsaEHostDown;
    case EHOSTUNREACH: return kWsaEHostUnreach;
    default: return kWsaEInval;
  }
}

}  // namespace OSTREL::Network::Socket
