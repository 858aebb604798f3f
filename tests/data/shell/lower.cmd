! read because its name kept its case on the @ line
REPORT COUNTS
