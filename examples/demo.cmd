! A first look at probix32 against the simulated Telvanix server.
! Run it with:   bash scripts/run.sh -iexamples/demo.cmd
!
! Each command asks its questions in turn; in a script the answers are the
! words after the command and the lines that follow it. An empty line takes
! the default shown in brackets. GET EVENTS prints what the server said
! since the last look (at the keyboard this happens by itself).
!
! Connect to the server TELVANIX as user Telvanix with an empty password.
CONNECT TELVANIX Telvanix

GET EVENTS
!
! Watch three extensions: every call event that concerns them is shown.
! Each monitor is remembered under the current device when its confirmation
! arrives, so that CLEAR MONITOR can find it by device later.
MONITOR 201
GET EVENTS
MONITOR 202
GET EVENTS
MONITOR 203
GET EVENTS
!
! Extension 201 calls 202. The confirmation names the new call; it becomes
! the current call that ANSWER, HOLD and the others act on.
MAKE_CALL 201 202
GET EVENTS
ANSWER 202
GET EVENTS
!
! 201 puts the call on hold and takes it back.
HOLD 201
GET EVENTS
RETRIEVE

201
GET EVENTS
!
! 201 consults 203 while 202 waits on hold, then hands 202 over to 203.
! The consultation is call 2; ANSWER needs it as the current call.
CONSULTATION_CALL 201 203
GET EVENTS
SET CURRENT_CALL 2
ANSWER 203
GET EVENTS
SET DEVICE_DEFAULT 201
TRANSFER
201
1
2
GET EVENTS
!
! What the switch knows about call 1 now: 202 and 203 talk.
SNAP EXPLICIT_CALL 1
GET EVENTS
!
! An outside number: the call leaves through a line (L1#n).
MAKE_CALL 204 95550100
GET EVENTS
TRUNK_REPORT 2
GET EVENTS
!
! Do not disturb on 205: the current state is read first and offered.
SET DO_NOT_DISTURB 205 ON
GET DO_NOT_DISTURB 205
GET EVENTS
SET DO_NOT_DISTURB 205 OFF
GET EVENTS
!
! Hang everything up and stop watching 201.
HANGUP EXPLICIT_CALL 1
HANGUP DEVICE 204 3
GET EVENTS
CLEAR MONITOR 201
GET EVENTS
!
! The rest is yours: try ? for the list of commands, HELP MAKE_CALL, or
! MAKE_CALL 202 401 (a voice port that answers after two rings) and WAIT 10.
