# SPDX-License-Identifier: MIT
# fish completion of datasig: its commands, each command's options, and the
# names of files (installed as share/fish/vendor_completions.d/datasig.fish).

set -l commands sign explain check
set -l no_command "not __fish_seen_subcommand_from $commands"

complete -c datasig -f
complete -c datasig -n $no_command -a sign -d 'Write a file with correct signature lines'
complete -c datasig -n $no_command -a explain -d 'Report what validate sees in a file'
complete -c datasig -n $no_command -a check -d 'Check many files at once'
complete -c datasig -n $no_command -s h -l help -d 'Show the help'
complete -c datasig -n $no_command -l version -d 'Show the version'

complete -c datasig -n "__fish_seen_subcommand_from $commands" -F
complete -c datasig -n '__fish_seen_subcommand_from sign' -s o -r -F -d 'Write to OUT instead'
complete -c datasig -n '__fish_seen_subcommand_from sign' -s i -d 'Sign each file in place'
complete -c datasig -n '__fish_seen_subcommand_from explain check' -l json -d 'Write JSON'
complete -c datasig -n '__fish_seen_subcommand_from check' -s r -d 'Check the files in folders and sub-folders'
complete -c datasig -n '__fish_seen_subcommand_from check' -l quiet -d 'Print only the lines that are not OK'
complete -c datasig -n '__fish_seen_subcommand_from check' -l status -d 'Print nothing: the exit status tells'
complete -c datasig -n '__fish_seen_subcommand_from check' -l jobs -x -d 'Check N files at a time'
complete -c datasig -n '__fish_seen_subcommand_from check' -l files-from -r -F -d 'Then check the files a list names'
complete -c datasig -n '__fish_seen_subcommand_from check' -s 0 -l null -d 'The names in the list end with a NUL'
