// Socket error numbers as the engine's logic knows them: the Winsock numbering, so that the
// decisions of the protocol code (reconnect, drop, retry) read the same on every platform.
// The errno of a failed Linux call is translated once, where it arises. Pure functions,
// callable from any thread.
#pragma once

namespace OSTREL::Network::Socket {

inline constexpr int kWsaIoPending = 997;
inline constexpr int kWsaEInterrupted = 10004;
inline constexpr int kWsaEBadF = 10009;
inline constexpr int kWsaEAccess = 10013;
inline constexpr int kWsaEFault = 10014;
inline constexpr int kWsaEInval = 10022;
inline constexpr int kWsaEMFile = 10024;
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaEInProgress = 10036;
inline constexpr int kWsaEAlready = 10037;
inline constexpr int kWsaENotSock = 10038;
inline constexpr int kWsaEDestAddrReq = 10039;
inline constexpr int kWsaEMsgSize = 10040;
inline constexpr int kWsaEProtoNoSupport = 10043;
inline constexpr int kWsaEOpNotSupp = 10045;
inline constexpr int kWsaEAfNoSupport = 10047;
inline constexpr int kWsaEAddrInUse = 10048;
inline constexpr int kWsaEAddrNotAvail = 10049;
inline constexpr int kWsaENetDown = 10050;
inline constexpr int kWsaENetUnreach = 10051;
inline constexpr int kWsaENetReset = 10052;
inline constexpr int kWsaEConnAborted = 10053;
inline constexpr int kWsaEConnReset = 10054;
inline constexpr int kWsaENoBufs = 10055;
inline constexpr int kWsaEIsConn = 10056;
inline constexpr int kWsaENotConn = 10057;
inline constexpr int kWsaEShutdown = 10058;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEConnRefused = 10061;
inline constexpr int kWsaEHostDown = 10064;
inline constexpr int kWsaEHostUnreach = 10065;
inline constexpr int kWsaHostNotFound = 11001;

class CSocketError {
 public:
  // 0, a pending operation and "would block" are the normal states of a non-blocking socket.
  static constexpr bool IsRealError(int code) {
    return code != 0 && code != kWsaIoPending && code != kWsaEWouldBlock;
  }
  // The Winsock number for an errno value; 0 stays 0, anything unknown becomes kWsaEInval
  // so that it still counts as a real error.
  static int FromErrno(int errnoValue);
};

}  // namespace OSTREL::Network::Socket
