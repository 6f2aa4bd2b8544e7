// The automation interface that EchoLink offers on the session bus, shared by the panel
// and by every server of it (echolink-sim among them). Names only: no behaviour here.
#pragma once

namespace Automation {

// Well-known bus name owned by the running EchoLink program.
inline constexpr char ServiceName[] = "org.dialboard.EchoLink";

// EchoLink's main object: link control and the Closing event.
inline constexpr char ApplicationPath[] = "/EchoLink";
inline constexpr char ApplicationInterface[] = "org.dialboard.EchoLink.Application";
inline constexpr char ConnectMethod[] = "Connect";          // (s call, i mode)
inline constexpr char DisconnectMethod[] = "Disconnect";    // (s call)
inline constexpr char IsConnectedMethod[] = "IsConnected";  // (s call) -> b
inline constexpr char ClosingSignal[] = "Closing";          // ()

// Station set-up: the callsign.
inline constexpr char SetupConfigPath[] = "/SetupConfig";
inline constexpr char SetupConfigInterface[] = "org.dialboard.EchoLink.SetupConfig";
inline constexpr char CallsignMethod[] = "Callsign";  // () -> s

// Sysop set-up: exists, and is never called.
inline constexpr char SysopConfigPath[] = "/SysopConfig";
inline constexpr char SysopConfigInterface[] = "org.dialboard.EchoLink.SysopConfig";

// Extras of echolink-node, the real station, on an interface of their own: the links
// that are up and the state of its directory registration.
inline constexpr char StationPath[] = "/Station";
inline constexpr char StationInterface[] = "org.dialboard.EchoLink.Station";
inline constexpr char LinksMethod[] = "Links";                      // () -> as
inline constexpr char DirectoryStatusMethod[] = "DirectoryStatus";  // () -> s
inline constexpr char LinksChangedSignal[] = "LinksChanged";        // (as)
inline constexpr char TransmitMethod[] = "Transmit";                // (b on)
inline constexpr char IsTransmittingMethod[] = "IsTransmitting";    // () -> b
inline constexpr char SendChatMethod[] = "SendChat";                // (s text)
// The station list in hand: call, location, node number, status ("ON" or "BUSY").
inline constexpr char StationsMethod[] = "Stations";  // () -> a(ssus)
// What happened to a link. The call is exactly the text Connect was given when the
// link was asked for by a call, else the station's callsign.
inline constexpr char LinkFailedSignal[] = "LinkFailed";              // (s call, s reason, s text)
inline constexpr char LinkStateChangedSignal[] = "LinkStateChanged";  // (s call, s state)
// LinkFailed reasons.
inline constexpr char NotFoundReason[] = "not-found";
inline constexpr char NoAnswerReason[] = "no-answer";
inline constexpr char RefusedReason[] = "refused";
inline constexpr char DroppedReason[] = "dropped";
// LinkStateChanged states.
inline constexpr char LinkingState[] = "linking";
inline constexpr char LinkedState[] = "linked";
inline constexpr char UnlinkedState[] = "unlinked";

// The errors echolink-node answers with: why a call was not carried out.
inline constexpr char EmptyCallError[] = "org.dialboard.EchoLink.Error.EmptyCall";
inline constexpr char OwnCallsignError[] = "org.dialboard.EchoLink.Error.OwnCallsign";
inline constexpr char TooManyLinksError[] = "org.dialboard.EchoLink.Error.TooManyLinks";
inline constexpr char NoStationListError[] = "org.dialboard.EchoLink.Error.NoStationList";
inline constexpr char NoSuchStationError[] = "org.dialboard.EchoLink.Error.NoSuchStation";
inline constexpr char AddressInUseError[] = "org.dialboard.EchoLink.Error.AddressInUse";
inline constexpr char OfflineError[] = "org.dialboard.EchoLink.Error.Offline";
inline constexpr char NotLinkedError[] = "org.dialboard.EchoLink.Error.NotLinked";
inline constexpr char NoInputDeviceError[] = "org.dialboard.EchoLink.Error.NoInputDevice";
inline constexpr char EmptyChatError[] = "org.dialboard.EchoLink.Error.EmptyChat";
inline constexpr char ChatTooLongError[] = "org.dialboard.EchoLink.Error.ChatTooLong";
inline constexpr char ChatTooFastError[] = "org.dialboard.EchoLink.Error.ChatTooFast";

// Control object of the stand-in server, for tests and demonstrations.
inline constexpr char ControlPath[] = "/Control";
inline constexpr char ControlInterface[] = "org.dialboard.EchoLink.Simulator";

// Every automation call the panel makes waits at most this long for its answer, so a
// hung server costs one bounded stall and never a frozen panel.
inline constexpr int CallTimeoutMs = 500;

}  // namespace Automation
