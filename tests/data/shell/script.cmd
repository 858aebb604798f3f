! A script with comments, jumps and labels
GOTO SECOND
this line is skipped, unknown words and all
CON ambiguous words too
DEBUG
LABEL FIRST
REPORT COUNTS
goto done
LABEL SECOND
! FIRST was learnt on the way here: this jumps back
GOTO FIRST
LABEL DONE
LABEL FIRST
NOSUCHCOMMAND