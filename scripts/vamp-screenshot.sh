#!/usr/bin/env bash
# Draws docs/vamp-sonic-visualiser.png: Sonic Visualiser, run under Xvfb on the
# demo clip with a session that names the plug-in's transforms (beats and tempo
# over the waveform, beats over the spectrogram, the confidence below), so that
# Sonic Visualiser runs the built plug-in itself. Not part of the tests.
# Usage: scripts/vamp-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --screenshot
root=$(pwd)
build=$(cd "${1:-build}" && pwd)
cmake --build "$build" --target vesk-music-vamp
out=$root/docs/vamp-sonic-visualiser.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A private home: no first-run questions, no network (the program asks before
# it fetches plug-in descriptions), the window at the screen's size.
config=$work/home/.config/sonic-visualiser
mkdir -p "$config" "$work/runtime"
chmod 700 "$work/runtime"
version=$(HOME=$work/home QT_QPA_PLATFORM=offscreen sonic-visualiser -v 2>&1 |
  grep -E '^[0-9]+(\.[0-9]+)+$' | head -n 1)
[[ -n $version ]] || { echo "cannot tell the version of sonic-visualiser" >&2; exit 1; }
cat > "$config/Sonic Visualiser.conf" <<EOF
[Preferences]
network-permission-$version=false

[MainWindow]
size=@Size(1400 860)
position=@Point(0 0)
EOF

# The session: the clip, and derivations whose models Sonic Visualiser makes
# by running the named transforms. 24.12 s at 44.1 kHz: 1100 samples per pixel
# shows it whole.
transform() {  # transform MODEL-ID OUTPUT
  cat <<EOF
    <derivation type="transform" source="1" model="$1" channel="-1" domain="1" stepSize="1024" blockSize="1024" transform="vamp:vesk-music:beattracker:$2">
      <transform id="vamp:vesk-music:beattracker:$2" pluginVersion="" program="" stepSize="1024" blockSize="1024" windowType="hanning" startTime="0.000000000" duration="0.000000000" sampleRate="0"/>
    </derivation>
EOF
}
{
  cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE sonic-visualiser>
<sv>
  <data>
    <model id="1" name="demo.flac" sampleRate="44100" start="0" end="1063819" type="wavefile" file="$root/demo/demo.flac" mainModel="true"/>
EOF
  transform 2 beats
  transform 3 tempo
  transform 4 confidence
  cat <<EOF
    <layer id="10" type="timeruler" name="Ruler" model="1"/>
    <layer id="11" type="waveform" name="Waveform" model="1" channelMode="1"/>
    <layer id="12" type="timeinstants" name="Beats" model="2" colourName="Red" colour="#ff0000" plotStyle="0"/>
    <layer id="13" type="timevalues" name="Tempo" model="3" colourName="Green" colour="#008000" plotStyle="2" verticalScale="1" scaleMinimum="80" scaleMaximum="200"/>
    <layer id="14" type="spectrogram" name="Spectrogram" model="1" channel="-1" colourScale="3" windowSize="2048" maxFrequency="8000"/>
    <layer id="15" type="timeinstants" name="Beats" model="2" colourName="White" colour="#ffffff" plotStyle="0"/>
    <layer id="16" type="timevalues" name="Confidence" model="4" colourName="Purple" colour="#c832ff" plotStyle="3" verticalScale="0"/>
  </data>
  <display>
    <window width="1400" height="860"/>
    <view centre="531900" zoom="1100" followPan="1" followZoom="1" tracking="page" type="pane" centreLineVisible="0" height="330">
      <layer id="10" type="timeruler" name="Ruler" model="1"/>
      <layer id="11" type="waveform" name="Waveform" model="1"/>
      <layer id="12" type="timeinstants" name="Beats" model="2"/>
      <layer id="13" type="timevalues" name="Tempo" model="3"/>
    </view>
    <view centre="531900" zoom="1100" followPan="1" followZoom="1" tracking="page" type="pane" centreLineVisible="0" height="220">
      <layer id="14" type="spectrogram" name="Spectrogram" model="1"/>
      <layer id="15" type="timeinstants" name="Beats" model="2"/>
    </view>
    <view centre="531900" zoom="1100" followPan="1" followZoom="1" tracking="page" type="pane" centreLineVisible="0" height="120">
      <layer id="16" type="timevalues" name="Confidence" model="4"/>
    </view>
  </display>
</sv>
EOF
} | bzip2 > "$work/demo.sv"  # the program reads sessions compressed

# Without a network namespace of its own where one can be made.
isolate=()
if unshare --net true 2>/dev/null; then isolate=(unshare --net); fi
cat > "$work/shoot.sh" <<EOF
#!/usr/bin/env bash
set -euo pipefail
VAMP_PATH="$build/vamp" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  ${isolate[*]} sonic-visualiser --no-audio --no-osc --no-splash "$work/demo.sv" > "$build/sonic-visualiser.log" 2>&1 &
program=\$!
sleep "\${VESK_SCREENSHOT_WAIT:-25}"  # loading, the transforms, drawing
import -window root -strip -colors 256 "PNG8:$out"
kill \$program
wait \$program || true
EOF
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1400x860x24 -nolisten tcp" "$work/shoot.sh"
echo "wrote $out"
