# Sourced by the check scripts. scratch_folder PATH empties PATH for a new
# run, or makes it, and marks it as ours. A folder that already holds files
# but no mark (a user's folder named by mistake, "." or $HOME say) is never
# emptied: the script stops instead.
scratch_folder() {
  local folder=$1
  if [[ -d $folder && -n $(ls -A "$folder") && ! -f $folder/.orthopair-scratch ]]; then
    echo "refusing to empty $folder: it holds files and is no scratch folder of these scripts" >&2
    exit 2
  fi
  rm -rf "$folder"
  mkdir -p "$folder"
  touch "$folder/.orthopair-scratch"
}

# work_folder [PATH] sets work to the absolute path of the folder a check
# script runs in: PATH, emptied with scratch_folder, or without PATH a new
# temporary folder that is removed when the script exits.
work_folder() {
  if [[ $# -ge 1 ]]; then
    work=$1
    scratch_folder "$work"
  else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
  fi
  work=$(cd "$work" && pwd)
}
