#!/usr/bin/env bash
# Builds the Debian packages zelbrowser and zelservice into build-package/.
# The browser's service address is fixed by the build; give it as the
# argument, a host name meaning https:// (default http://127.0.0.1:8960, a
# service on the same machine):
#     bash scripts/package.sh zel.example.org
set -euo pipefail
cd "$(dirname "$0")/.."
service_url=${1:-http://127.0.0.1:8960}
case $service_url in
*://*) ;;
*) service_url=https://$service_url ;;
esac
# Over http a login and every page cross the network in clear.
case $service_url in
http://127.* | http://localhost | http://localhost[:/]* | http://\[::1\]*) ;;
http://*)
    echo "package.sh: $service_url would send the users' logins in clear: give https://" >&2
    exit 2
    ;;
esac
bash scripts/setup.sh
# Debian's hardening flags for what goes into the packages.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow dpkg-buildflags --get "$1"; }
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DZEL_SERVICE_URL="$service_url" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
ninja -C build-package -j "$(nproc)" ZELbrowser zelservice program_files package_files zelservice_man
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
ls build-package/*.deb
