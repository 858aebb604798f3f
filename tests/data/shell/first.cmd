! first.cmd is read last
REPORT STATUS
