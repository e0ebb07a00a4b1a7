# Installs the Debian packages given as arguments when any of them is missing.
# Sourced by the other scripts.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    # An install cut short (a machine stopped mid-way) leaves dpkg waiting to
    # be configured, and apt refuses everything until it is.
    timeout 900 "${sudo[@]}" dpkg --configure -a
    timeout 900 "${sudo[@]}" apt-get update -qq
    timeout 1800 "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
