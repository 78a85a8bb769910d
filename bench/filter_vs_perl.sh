#!/usr/bin/env bash
# Times zimbrots-convert against perl -pe with the same substitutions on a 32 MiB UTF-8 file,
# and "zimbrots-convert FILE | cat" against "cat FILE | cat" on 256 MiB of the same text, each
# pair in one run, and prints the ratios.
# Usage: bench/filter_vs_perl.sh BUILD_DIR
set -euo pipefail
build=${1:-build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

line='Zimbrots ir neliela programma teksta pārveidošanai hakeru rakstībā. Šķiet, ka ģimenē visi to lieto: ūdens, ņaudēt, čūska, žagata, ķirbis, ļoti.'
: > "$work/in.txt"
while [ "$(stat -c %s "$work/in.txt")" -lt $((32 << 20)) ]; do
  for _ in $(seq 1000); do echo "$line"; done >> "$work/in.txt"
done

cat > "$work/hack.pl" <<'PERL'
use utf8;
binmode STDIN, ':encoding(UTF-8)'; binmode STDOUT, ':encoding(UTF-8)';
my %r = (a=>'4',c=>'(',e=>'3',g=>'9',h=>'|-|',i=>'|',l=>'|_',m=>'|\\/|',n=>'|\\|',o=>'0',r=>'|2',
  s=>'5',t=>'7',u=>'|_|',v=>'\\/',z=>'2','ā'=>'44','č'=>'(|-|','ē'=>'33','ģ'=>'9j','ī'=>'||',
  'ķ'=>'kj','ļ'=>'|_j','ņ'=>'|\\|j','š'=>'5|-|','ū'=>'|_||_|','ž'=>'2|-|');
for my $k (keys %r) { $r{uc $k} = $r{$k} }
my $class = join '', map { quotemeta } keys %r;
while (<STDIN>) { s/([$class])/$r{$1}/g; print }
PERL

seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'; }
ours=$(seconds sh -c "'$build/cli/zimbrots-convert' '$work/in.txt' > '$work/ours.txt'")
perls=$(seconds sh -c "perl '$work/hack.pl' < '$work/in.txt' > '$work/perl.txt'")
cmp -s "$work/ours.txt" "$work/perl.txt" || { echo "outputs differ"; exit 1; }
printf 'zimbrots-convert: %.3f s, perl -pe: %.3f s, ratio %.1f\n' "$ours" "$perls" "$(awk -v a="$perls" -v b="$ours" 'BEGIN { print a / b }')"

# The pipe's own speed: what a filter between two processes cannot beat.
for _ in 1 2 3; do cat "$work/in.txt"; done > "$work/big.txt"
while [ "$(stat -c %s "$work/big.txt")" -lt $((256 << 20)) ]; do cat "$work/in.txt" >> "$work/big.txt"; done
truncate -s $((256 << 20)) "$work/big.txt"
# The best of five each, taken in turns, so that both meet the same moments of a busy machine.
filter=999 pipe=999
for _ in 1 2 3 4 5; do
  t=$(seconds sh -c "'$build/cli/zimbrots-convert' '$work/big.txt' | cat > /dev/null")
  filter=$(awk -v a="$filter" -v t="$t" 'BEGIN { print (t < a ? t : a) }')
  t=$(seconds sh -c "cat '$work/big.txt' | cat > /dev/null")
  pipe=$(awk -v a="$pipe" -v t="$t" 'BEGIN { print (t < a ? t : a) }')
done
printf 'zimbrots-convert FILE | cat: %.3f s, cat FILE | cat: %.3f s, ratio %.2f (256 MiB)\n' "$filter" "$pipe" \
  "$(awk -v a="$filter" -v b="$pipe" 'BEGIN { print a / b }')"
