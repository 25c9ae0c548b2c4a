# Sourced by the scripts that run a program's tests themselves: the gtest
# filters of the test groups declared in tests/test_groups.txt.

norvane_test_groups=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/test_groups.txt

# test_filter GROUP...: the groups' patterns, joined for --gtest_filter.
test_filter() {
  local group line patterns=()
  for group; do
    line=$(awk -v group="$group" '$1 == group { $1 = $2 = ""; print }' "$norvane_test_groups")
    if [ -z "$line" ]; then
      echo "no test group $group in $norvane_test_groups" >&2
      return 1
    fi
    read -ra fields <<<"$line"
    patterns+=("${fields[@]}")
  done
  local IFS=:
  echo "${patterns[*]}"
}
