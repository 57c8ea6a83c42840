#!/usr/bin/env bash
# Builds the Debian packages zelbrowser and zelservice into build-package/.
# The browser's service address is fixed by the build; give it as the
# argument (default http://127.0.0.1:8960):
#     bash scripts/package.sh http://zel.example.org
set -euo pipefail
cd "$(dirname "$0")/.."
service_url=${1:-http://127.0.0.1:8960}
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
