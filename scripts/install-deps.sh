#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test the program.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev \
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev \
  libjpeg62-turbo-dev libjpeg-turbo-progs \
  libcups2-dev cups cups-client cups-filters cups-bsd \
  poppler-utils \
  locales \
  fonts-wqy-microhei fonts-noto-cjk \
  xvfb xauth x11-apps imagemagick \
  libreoffice-core libreoffice-writer libreoffice-calc \
  libreoffice-dev libreoffice-dev-common
