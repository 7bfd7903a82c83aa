#version 120
// Each density cell is shown as a crisp block: the coordinate is snapped to the centre of its
// texel, so cells never blend into their neighbours whatever the sprite's scale.
uniform sampler2D u_texture;
uniform vec2 textureSize;
varying vec4 v_color;
varying vec2 v_texCoord;

void main() {
  vec2 size = max(textureSize, vec2(1.0));
  vec2 cell = (floor(v_texCoord * size) + 0.5) / size;
  gl_FragColor = v_color * texture2D(u_texture, cell);
}
