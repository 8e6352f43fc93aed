# Sourced by the benchmarks: serves a folder on a free loopback port with nginx.
#
#   start_site WORK SITE     serves SITE; sets PORT and SITE_PID; nginx's files go under WORK/nginx
#   stop_site                stops it (call it from the script's EXIT trap)

SITE_PID=

start_site() {
  local work=$1 site=$2 nginx user_line=
  nginx=$(command -v nginx || echo /usr/sbin/nginx)
  PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
  mkdir -p "$site" "$work/nginx/logs"
  # Workers run as the invoking user (as root nginx would switch to nobody, who may not read $work).
  if [ "$(id -u)" -eq 0 ]; then user_line="user root root;"; fi
  cat >"$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  sendfile on;
  tcp_nodelay on;
  keepalive_timeout 60s;
  keepalive_requests 1000000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$PORT;
    root $site;
  }
}
CONF
  "$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
  SITE_PID=$!
  for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/" && return 0
    sleep 0.1
  done
}

stop_site() {
  if [ -n "$SITE_PID" ] && kill -0 "$SITE_PID" 2>/dev/null; then
    kill -QUIT "$SITE_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$SITE_PID" 2>/dev/null || break; sleep 0.1; done
  fi
}
