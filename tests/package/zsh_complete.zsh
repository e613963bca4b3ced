# Presses Tab after LINE in an interactive zsh with the completion functions
# of FOLDER and appends every word offered to OUTPUT, one a line.
#   zsh -f zsh_complete.zsh FOLDER OUTPUT LINE
zmodload zsh/zpty
folder=$1 output=$2 line=$3
zpty shell zsh -f -i
zpty -w shell "fpath=(${(q)folder} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w shell "compadd() { local -a m; builtin compadd -O m \"\$@\"; print -rl -- \$m >> ${(q)output}; builtin compadd \"\$@\" }"
zpty -w shell "print > ${(q)output}.ready"
for _ in {1..300}; do [[ -e $output.ready ]] && break; sleep 0.1; done
zpty -w -n shell "$line"$'\t'
for _ in {1..300}; do [[ -e $output ]] && break; sleep 0.1; done
# Later groups of the same completion land a moment after the first.
sleep 1
zpty -d shell
