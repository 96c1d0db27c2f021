# The summary of a run directory: the counts, what became of the old outputs, and one
# row per input that did not convert (and, with --incremental, per input up to date).
# The build puts it into conv2model-batch, which runs it as:
#   awk -F TAB -v rundir=DIR -v status_format=FORMAT -v joblog=FILE -v logs=DIR
#       -v incremental=0|1 PROGRAM OLD INPUTS
# OLD: index, what became of the old outputs of the input; INPUTS: the inputs file of
# the run. Exits with the status of the batch: 1 when any input failed, 2 when some
# stopped for data, else 0. (No single quote here: the program goes between them.)

FILENAME != ARGV[ARGC - 1] { fate[$1] = $2; next }

{
  inputs++; index_ = $1; input = $2
  file = sprintf(status_format, rundir, index_)
  status = ""; detail = ""
  if ((getline line < file) > 0) {
    tab = index(line, "\t")
    status = substr(line, 1, tab - 1); detail = substr(line, tab + 1)
  }
  close(file)
  old = (index_ in fate) ? fate[index_] : "none"
  if (status == "0" && detail == "up to date") {
    current++
    add_row("up to date", status, old, input, "its outputs come from its present contents, configuration and converter")
    next
  }
  if (old != "none") removed++
  if (status == "0") { converted++; next }
  if (status == "2") { kind = "stopped"; stopped++ }
  else {
    kind = "failed"; failed++
    if (status == "") { status = "-"; detail = "not converted: the conversion never finished (see the job log)" }
  }
  if (old == "kept") kept++
  add_row(kind, status, old, input, detail)
}

function add_row(kind, status, old, input, detail) {
  rows++; k[rows] = kind; s[rows] = status; o[rows] = old; in_[rows] = input; d[rows] = detail
  if (length(input) > width) width = length(input)
  if (length(kind) > kind_width) kind_width = length(kind)
}

END {
  printf "%s: %d %s: %d converted, %s%d stopped for data, %d failed\n", "conv2model-batch", inputs,
    inputs == 1 ? "input" : "inputs", converted,
    (incremental || current > 0 ? sprintf("%d up to date, ", current) : ""), stopped, failed
  printf "old outputs: removed beside %d %s before the conversions; no input in the table has outputs now%s%s\n",
    removed - kept, removed - kept == 1 ? "input" : "inputs",
    (kept > 0 ? sprintf(", but for the %d whose old ones were kept", kept) : ""),
    (current > 0 ? sprintf(", but for the %d up to date, whose outputs were kept as they are", current) : "")
  if (rows > 0) {
    if (width < 5) width = 5
    if (kind_width < 7) kind_width = 7
    row = "%-" kind_width "s  %-6s  %-11s  %-" width "s  %s\n"
    printf "\n" row, "result", "status", "old outputs", "input", "last log line (stopped) or diagnostic (failed)"
    for (r = 1; r <= rows; r++) printf row, k[r], s[r], o[r], in_[r], d[r]
    printf "\n"
  }
  printf "job log: %s\n", joblog
  printf "logs:    %s (one per input)\n", logs
  exit (failed > 0 ? 1 : (stopped > 0 ? 2 : 0))
}
