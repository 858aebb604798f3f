! second.cmd is read first; script lines are folded, so upper-case names
@ OUTER.CMD
REPORT COUNTS
