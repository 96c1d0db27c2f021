# What a program's help text lists, read the same way by every test that compares it
# with something else (the manual pages, the bash completion). Sourced.

# Options defined by a help text on standard input, one per line.
help_options() {
  grep -E '^ {1,8}-' | sed -E 's/^ +//' |
    grep -oE '^(-[A-Za-z0-9](, )?)?(--[a-z0-9][a-z0-9-]*)?' | tr ',' '\n' | tr -d ' ' |
    grep -E '^-' || true
}

# Commands listed by a help text on standard input, one per line.
help_commands() {
  sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}
