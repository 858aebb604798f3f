! second.cmd is read first
@ OUTER.CMD
REPORT COUNTS
